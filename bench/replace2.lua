-- replace/all on a string of 1000000 matches, 200 times: the twin of replace2.xeb.
local s = string.rep("ab ", 1000000)
local n, t = 0, nil
for _ = 1, 200 do
  t = s:gsub("a", "x")
  n = n + #t
end
print(n .. " " .. t:sub(1, 6))
