# Method calls on objects that update a field: the twin of methods.xeb.
class Account:
    def __init__(self, balance):
        self.balance = balance

    def deposit(self, amount):
        self.balance += amount

    def charge(self, fee):
        if self.balance > 1000:
            self.balance -= fee


accounts = [Account(i) for i in range(1, 101)]
for _ in range(70000):
    for a in accounts:
        a.deposit(3)
        a.charge(2)
total = 0
for a in accounts:
    total += a.balance
print(total)
