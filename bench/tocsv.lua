-- to-csv of 40,000 rows, 10 times: the twin of tocsv.xeb, a writer of the kind
-- a Lua user writes (Lua has no CSV library).
local cities = {"Oslo", "Lima", "Cairo, Egypt", "Quito", "Perth", 'Hanoi "old"'}
local rows = {}
for i = 1, 40000 do
  rows[i] = {i, "name" .. i, cities[1 + i % 6], i * 1.25,
             i % 3 == 0 and "a note, " .. i or "plain"}
end

local function field(v)
  local s = tostring(v)
  if s:find('[,"\r\n]') then s = '"' .. s:gsub('"', '""') .. '"' end
  return s
end

local function to_csv(t)
  local lines = {}
  for r = 1, #t do
    local row, cells = t[r], {}
    for c = 1, #row do cells[c] = field(row[c]) end
    lines[r] = table.concat(cells, ",")
  end
  return table.concat(lines, "\n") .. "\n"
end

local n = 0
for _ = 1, 10 do n = n + #to_csv(rows) end
print(n)
