-- A small function called a million times: the twin of ret.xeb.
local function f(x) return x + 1 end
local n = 0
for _ = 1, 1000000 do n = f(n) end
print(n)
