# replace/all on a string of 500000 matches, 200 times: the twin of replace1.xeb.
s = "ab " * 500000
n = 0
for _ in range(200):
    t = s.replace("a", "x")
    n += len(t)
print(n, t[:6])
