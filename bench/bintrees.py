# Binary trees, built and walked: the twin of bintrees.xeb, with tuples for
# nodes (a leaf holds two Nones).
def make_tree(depth):
    if depth == 0:
        return (None, None)
    return (make_tree(depth - 1), make_tree(depth - 1))


def check(tree):
    if tree[0] is None:
        return 1
    return 1 + check(tree[0]) + check(tree[1])


max_depth = 16
print("stretch tree of depth", max_depth + 1, "check:", check(make_tree(max_depth + 1)))
long_lived = make_tree(max_depth)
for depth in range(4, max_depth + 1, 2):
    iterations = 2 ** (max_depth - depth + 4)
    total = 0
    for _ in range(iterations):
        total += check(make_tree(depth))
    print(iterations, "trees of depth", depth, "check:", total)
print("long lived tree of depth", max_depth, "check:", check(long_lived))
