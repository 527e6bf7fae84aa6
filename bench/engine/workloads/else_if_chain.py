a = b = c = d = 0
for i in range(1, 3000001):
    v = i % 10
    if v == 0:
        a = a + 1
    elif v == 1:
        b = b + 1
    elif v == 2:
        c = c + 1
    elif v == 3:
        d = d + 1
    elif v == 4:
        a = a + 2
    elif v == 5:
        b = b + 2
    elif v == 6:
        c = c + 2
    elif v == 7:
        d = d + 2
    elif v == 8:
        a = a + 3
    else:
        b = b + 3
print(a, b, c, d)
