# Word frequency: the twin of wordfreq.xeb; the text's path is the argument.
import sys

with open(sys.argv[1]) as f:
    text = f.read()
counts = {}
for w in text.lower().split():
    counts[w] = counts.get(w, 0) + 1
for w, n in sorted(counts.items(), key=lambda p: p[1], reverse=True)[:10]:
    print(w, n)
