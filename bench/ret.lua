-- A small function called 30 million times: the twin of ret.xeb.
local function f(x) return x + 1 end
local n = 0
for _ = 1, 30000000 do n = f(n) end
print(n)
