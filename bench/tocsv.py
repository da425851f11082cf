# to-csv of 40,000 rows, 10 times: the twin of tocsv.xeb, with the csv module.
import csv
import io

cities = ["Oslo", "Lima", "Cairo, Egypt", "Quito", "Perth", 'Hanoi "old"']
rows = []
for i in range(1, 40001):
    rows.append([i, "name" + str(i), cities[i % 6], i * 1.25,
                 "a note, " + str(i) if i % 3 == 0 else "plain"])
n = 0
for _ in range(10):
    out = io.StringIO()
    csv.writer(out, lineterminator="\n").writerows(rows)
    n += len(out.getvalue())
print(n)
