# replace/all on a string of 1000000 matches, 200 times: the twin of replace2.xeb.
s = "ab " * 1000000
n = 0
for _ in range(200):
    t = s.replace("a", "x")
    n += len(t)
print(n, t[:6])
