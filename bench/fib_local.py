# Recursive Fibonacci of 36 with one local: the twin of fib_local.xeb.
def fib(n):
    if n < 2:
        return n
    r = fib(n - 1)
    return r + fib(n - 2)
print(fib(36))
