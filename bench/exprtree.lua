-- An expression-tree evaluator: the twin of exprtree.xeb, with tables for
-- nodes, strings for operators and variables, a table for the variables.
local seed = 7
local function next_random(n)
  seed = (seed * 75 + 74) % 65537
  return seed % n
end

local VARS = {"x", "y", "z"}
local OPS = {"add", "sub", "mul", "min", "max"}

local function build(depth)
  if depth == 0 or next_random(8) == 0 then
    if next_random(2) == 0 then return next_random(10) end
    return VARS[1 + next_random(3)]
  end
  -- Arguments are evaluated left to right, as in the other two.
  local op = OPS[1 + next_random(5)]
  local left = build(depth - 1)
  return {op, left, build(depth - 1)}
end

local function eval_node(node, env)
  local t = type(node)
  if t == "number" then return node end
  if t == "string" then return env[node] end
  local op = node[1]
  if op == "add" then
    return (eval_node(node[2], env) + eval_node(node[3], env)) % 10007
  elseif op == "sub" then
    return math.abs(eval_node(node[2], env) - eval_node(node[3], env))
  elseif op == "mul" then
    return eval_node(node[2], env) * eval_node(node[3], env) % 10007
  elseif op == "min" then
    return math.min(eval_node(node[2], env), eval_node(node[3], env))
  elseif op == "max" then
    return math.max(eval_node(node[2], env), eval_node(node[3], env))
  end
end

local tree = build(12)
local total = 0
for i = 1, 6000 do
  total = total + eval_node(tree, {x = i, y = i * 2, z = 7 + i})
end
print(total)
