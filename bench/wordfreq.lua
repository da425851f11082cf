-- Word frequency: the twin of wordfreq.xeb; the text's path is the argument.
local f = assert(io.open(arg[1]))
local text = f:read("a")
f:close()
local counts = {}
for w in text:lower():gmatch("%S+") do counts[w] = (counts[w] or 0) + 1 end
local pairs_ = {}
for w, n in pairs(counts) do pairs_[#pairs_ + 1] = {w, n} end
table.sort(pairs_, function(a, b) return a[2] > b[2] end)
for i = 1, 10 do print(pairs_[i][1] .. " " .. pairs_[i][2]) end
