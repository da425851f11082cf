# A small function called 30 million times: the twin of noret.xeb (a Python function leaves only through return).
def f(x):
    return x + 1
n = 0
for _ in range(30000000):
    n = f(n)
print(n)
