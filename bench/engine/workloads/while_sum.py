i = 0
s = 0
while i < 4000000:
    s = s + i * i % 7
    i = i + 1
print(s)
