# Mold and form of a million values: the twin of mold.xeb, with repr of a
# list of the same values (a word becomes a short string).
b = []
for i in range(1, 250001):
    b.append(i)
    b.append('word')
    b.append('text')
    b.append(i + 0.25)
for _ in range(3):
    s = repr(b)
    t = str(b)
print(len(s), len(t))
