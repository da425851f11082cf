-- A counting loop of 150 million steps: the twin of loop.xeb.
local n = 0
for _ = 1, 150000000 do n = n + 1 end
print(n)
