t = 0
for i in range(1, 2501):
    for j in range(2500, 0, -1):
        t = t + (i ^ j) % 13
print(t)
