# Twin of json_codec.xeb: a JSON text of about 20 MB (records of strings with
# escapes and non-ASCII, integers, floats, literals, nested arrays and
# objects) read with json.loads and written back with json.dumps; each line
# names the step and its seconds. The text is written to the file named as
# the first argument for the xeb twin to read.
import json, sys, time

def record(i):
    return {"id": i, "name": "item %d \"quoted\" \\ é/ü" % i, "price": i * 0.25 + 0.125,
            "tags": ["a%d" % (i % 7), "b", "c"], "ok": i % 2 == 0, "none": None,
            "nested": {"x": i, "y": [i, i + 1, {"z": "deep"}]}}

text = json.dumps([record(i) for i in range(120000)], ensure_ascii=False, separators=(",", ":"))
if len(sys.argv) > 1:
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write(text)
t = time.perf_counter()
value = json.loads(text)
print("read", time.perf_counter() - t)
t = time.perf_counter()
out = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
print("write", time.perf_counter() - t)
print("bytes", len(text.encode()), len(out.encode()))
