# sort/compare of 200,000 records: the twin of sort.xeb. A Python user sorts
# by a key function, not a comparison.
seed = 11


def next_random(n):
    global seed
    seed = (seed * 75 + 74) % 65537
    return seed % n


records = []
for i in range(1, 200001):
    name = "n" + str(next_random(1000)) + "-" + str(i)
    age = 18 + next_random(70)
    records.append([name, age, next_random(10000) / 100.0])
records.sort(key=lambda r: r[2])
print(records[0][2], records[-1][2])
records.sort(key=lambda r: (r[1], r[0]))
print(records[0][0], records[0][1])
records.sort(key=lambda r: r[0])
print(records[0][0], records[-1][0])
