def to_int(text):
    try:
        return int(text)
    except ValueError:
        return 0


fields = 0
total = 0
for i in range(1, 100001):
    reply = 'OK,' + str(i) + ',' + str(i % 97) + ',TEMP,' + str(i * 3) + ',END'
    for field in reply.split(','):
        fields = fields + 1
        total = total + to_int(field)
print(fields, total)
