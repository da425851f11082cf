# A counting loop of 10 million steps: the twin of loop.xeb.
n = 0
for _ in range(10000000):
    n = n + 1
print(n)
