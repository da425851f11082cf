# A million puts and a million gets on a dict: the twin of map.xeb.
m = {}
for i in range(1, 1000001):
    m[i * 31] = i
n = 0
for i in range(1, 1000001):
    if m.get(i * 31) == i:
        n = n + 1
print(n)
