-- Builds a table of a million integers and walks it for its largest, twenty times: the twin of block.xeb.
local m = 0
for _ = 1, 20 do
  local b = {}
  for i = 1, 1000000 do b[#b + 1] = i end
  for _, x in ipairs(b) do if x > m then m = x end end
end
print(m)
