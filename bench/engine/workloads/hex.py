digits = '0123456789ABCDEF'
total = 0
h = ''
for i in range(1, 300001):
    v = i * 2654435761 & 0xFFFFFFFF
    h = ''
    for k in range(7, -1, -1):
        h = h + digits[(v >> (k * 4)) & 0xF]
    total = (total + int(h, 16) % 1000 + (h.find('F') + 1)) & 0xFFFFFFF
print(total, h)
