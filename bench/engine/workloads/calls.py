def mix(a, b, c):
    return (a * 31 + b) ^ c


acc = 0
for i in range(1, 1500001):
    acc = (acc + mix(i, acc, 7) + int(i / 3) + len('abcdefgh'[i % 5:i % 5 + 3])) & 0xFFFFF
print(acc)
