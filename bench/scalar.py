# Two million steps of a datetime by an hour, a Decimal by 1.25 and a pair by
# (1, 2): the twin of scalar.xeb.
import datetime
from decimal import Decimal

d = datetime.datetime(2000, 1, 1, 12)
hour = datetime.timedelta(hours=1)
m = Decimal(0)
step = Decimal("1.25")
p = (0, 0)
for i in range(2000000):
    d = d + hour
    m = m + step
    p = (p[0] + 1, p[1] + 2)
print(d, m, p)
