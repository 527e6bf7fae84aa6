steps = 0
for start in range(1, 40001):
    n = start
    while True:
        if n % 2 == 0:
            n = n // 2
        else:
            n = 3 * n + 1
        steps = steps + 1
        if n <= 1:
            break
print(steps)
