# Builds a list of a million integers and walks it for its largest, twenty times: the twin of block.xeb.
m = 0
for _ in range(20):
    b = []
    for i in range(1, 1000001):
        b.append(i)
    for x in b:
        if x > m:
            m = x
print(m)
