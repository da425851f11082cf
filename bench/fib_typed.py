# Recursive Fibonacci of 36 with a typed argument: the twin of fib_typed.xeb
# (an annotation, as a Python user types an argument).
def fib(n: int) -> int:
    return n if n < 2 else fib(n - 1) + fib(n - 2)
print(fib(36))
