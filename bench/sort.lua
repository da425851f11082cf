-- sort/compare of 200,000 records with a function: the twin of sort.xeb.
local seed = 11
local function next_random(n)
  seed = (seed * 75 + 74) % 65537
  return seed % n
end

local records = {}
for i = 1, 200000 do
  local name = "n" .. next_random(1000) .. "-" .. i
  local age = 18 + next_random(70)
  records[i] = {name, age, next_random(10000) / 100.0}
end
table.sort(records, function(a, b) return a[3] < b[3] end)
print(string.format("%s %s", records[1][3], records[#records][3]))
table.sort(records, function(a, b)
  if a[2] == b[2] then return a[1] < b[1] end
  return a[2] < b[2]
end)
print(records[1][1] .. " " .. records[1][2])
table.sort(records, function(a, b) return a[1] < b[1] end)
print(records[1][1] .. " " .. records[#records][1])
