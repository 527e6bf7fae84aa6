log = []
line = ''
lines = 0
for i in range(1, 1750001):
    log.append('abcdefghij')
    line = line + str(i) + ','
    if len(line) > 200:
        lines = lines + 1
        line = ''
print(len(''.join(log)), lines, len(line))
