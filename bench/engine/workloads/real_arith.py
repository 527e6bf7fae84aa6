x = 0.0
chars = 0
y = 0.0
for i in range(1, 1500001):
    r = i * 0.37
    x = x + 1.0 / (r * r + 1.0) - r / 1000000.0
    if i % 4 == 0:
        s = '%.15g' % (r * 1.5)
        chars = chars + len(s)
        y = y + float(s)
print('%.15g %.15g %d' % (x, y, chars))
