# A small function called a million times: the twin of ret.xeb.
def f(x):
    return x + 1
n = 0
for _ in range(1000000):
    n = f(n)
print(n)
