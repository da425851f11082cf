# An expression-tree evaluator: the twin of exprtree.xeb, with tuples for
# nodes, strings for operators and variables, a dict for the variables.
seed = 7


def next_random(n):
    global seed
    seed = (seed * 75 + 74) % 65537
    return seed % n


VARS = ("x", "y", "z")
OPS = ("add", "sub", "mul", "min", "max")


def build(depth):
    if depth == 0 or next_random(8) == 0:
        if next_random(2) == 0:
            return next_random(10)
        return VARS[next_random(3)]
    return (OPS[next_random(5)], build(depth - 1), build(depth - 1))


def eval_node(node, env):
    if isinstance(node, int):
        return node
    if isinstance(node, str):
        return env[node]
    op = node[0]
    if op == "add":
        return (eval_node(node[1], env) + eval_node(node[2], env)) % 10007
    elif op == "sub":
        return abs(eval_node(node[1], env) - eval_node(node[2], env))
    elif op == "mul":
        return eval_node(node[1], env) * eval_node(node[2], env) % 10007
    elif op == "min":
        return min(eval_node(node[1], env), eval_node(node[2], env))
    elif op == "max":
        return max(eval_node(node[1], env), eval_node(node[2], env))


tree = build(12)
total = 0
for i in range(1, 6001):
    total += eval_node(tree, {"x": i, "y": i * 2, "z": 7 + i})
print(total)
