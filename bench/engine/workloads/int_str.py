total = 0
for i in range(1, 1400001):
    s = str(i * 7 - 350000)
    v = int(s)
    r = abs(v) % 1000
    total = total + (r if v >= 0 else -r) + len(s)
print(total)
