# wordfreq_text.py PATH [MB]: writes the word-frequency benchmark's input, a
# text of about MB megabytes (default 30) of lines of words, from a fixed
# seed: 20,000 made-up words with Zipf-like frequencies, some capitalised.
import random
import sys

path = sys.argv[1]
size = int(sys.argv[2] if len(sys.argv) > 2 else 30) * 1000000
rng = random.Random(45)
letters = "etaoinshrdlcumwfgypbvkjxqz"
vocab = set()
while len(vocab) < 20000:
    n = min(rng.randint(1, 6) + rng.randint(0, 6), 14)
    vocab.add("".join(rng.choice(letters[:10 + n]) for _ in range(n)))
vocab = sorted(vocab)
rng.shuffle(vocab)
cum, acc = [], 0.0
for r in range(len(vocab)):
    acc += 1.0 / (r + 1)
    cum.append(acc)
out, total = [], 0
while total < size:
    words = rng.choices(vocab, cum_weights=cum, k=12)
    words = [w.capitalize() if rng.random() < 0.1 else w for w in words]
    line = " ".join(words) + "\n"
    out.append(line)
    total += len(line)
with open(path, "w") as f:
    f.write("".join(out))
