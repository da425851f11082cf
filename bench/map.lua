-- A million puts and a million gets on a table: the twin of map.xeb.
local m = {}
for i = 1, 1000000 do m[i * 31] = i end
local n = 0
for i = 1, 1000000 do if m[i * 31] == i then n = n + 1 end end
print(n)
