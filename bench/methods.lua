-- Method calls on objects that update a field: the twin of methods.xeb.
local Account = {}
Account.__index = Account
function Account.new(balance) return setmetatable({balance = balance}, Account) end
function Account:deposit(amount) self.balance = self.balance + amount end
function Account:charge(fee) if self.balance > 1000 then self.balance = self.balance - fee end end

local accounts = {}
for i = 1, 100 do accounts[i] = Account.new(i) end
for _ = 1, 70000 do
  for _, a in ipairs(accounts) do
    a:deposit(3)
    a:charge(2)
  end
end
local total = 0
for _, a in ipairs(accounts) do total = total + a.balance end
print(total)
