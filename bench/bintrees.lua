-- Binary trees, built and walked: the twin of bintrees.xeb, with tables for
-- nodes (a leaf is an empty table).
local function make_tree(depth)
  if depth == 0 then return {} end
  depth = depth - 1
  return {make_tree(depth), make_tree(depth)}
end

local function check(tree)
  if not tree[1] then return 1 end
  return 1 + check(tree[1]) + check(tree[2])
end

local max_depth = 16
print("stretch tree of depth " .. max_depth + 1 .. " check: " .. check(make_tree(max_depth + 1)))
local long_lived = make_tree(max_depth)
for depth = 4, max_depth, 2 do
  local iterations = 2 ^ (max_depth - depth + 4) // 1
  local total = 0
  for _ = 1, iterations do total = total + check(make_tree(depth)) end
  print(string.format("%d trees of depth %d check: %d", iterations, depth, total))
end
print("long lived tree of depth " .. max_depth .. " check: " .. check(long_lived))
