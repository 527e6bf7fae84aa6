acc = 0
for i in range(1, 2000001):
    x = ((i << 3) | (i >> 2)) ^ (i & 0xFF)
    acc = (acc + x // 3 + x % 11) & 0xFFFFFF
print(acc)
