-- Recursive Fibonacci of 36 with a typed argument: the twin of fib_typed.xeb.
-- Lua has no argument types, so this is the plain function.
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
print(fib(36))
