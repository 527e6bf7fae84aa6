total = 0
for i in range(1, 700001):
    s = 'abcdefghij' + str(i)
    t = s[:1] + s[4:]
    u = t[:3] + 'XY' + t[3:]
    total = total + len(u) + (s.find('5') + 1) + (u[2:6].find('Y') + 1)
print(total)
