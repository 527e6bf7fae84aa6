hits = 0
least = 1000
most = -1
for i in range(1, 2000001):
    a = i % 97
    b = i % 89
    if (a < b and a != 5) or b >= 80:
        hits = hits + 1
    if a - b < least:
        least = a - b
    if a + b > most:
        most = a + b
print(hits, least, most)
