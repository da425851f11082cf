-- Recursive Fibonacci of 36 with one local: the twin of fib_local.xeb.
local function fib(n)
  if n < 2 then return n end
  local r = fib(n - 1)
  return r + fib(n - 2)
end
print(fib(36))
