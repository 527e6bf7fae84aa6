stream = ''
for i in range(1, 2001):
    stream = stream + 'AT+SET=' + str(i % 500) + ';X' + '\r'
total = 0
commands = 0
for n in range(100):
    state = 0
    value = 0
    digits = 0
    for c in stream:
        if state == 0:
            if c == 'A':
                state = 1
        elif state == 1:
            state = 2 if c == 'T' else 0
        elif state == 2:
            if c == '=':
                state = 3
                value = 0
        elif state == 3:
            if '0' <= c <= '9':
                value = value * 10 + int(c)
                digits = digits + 1
            elif c == ';':
                total = total + value
                state = 4
            else:
                state = 0
        elif state == 4:
            if c == '\r':
                commands = commands + 1
                state = 0
print(commands, total, digits)
