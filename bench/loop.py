# A counting loop of 150 million steps: the twin of loop.xeb.
n = 0
for _ in range(150000000):
    n = n + 1
print(n)
