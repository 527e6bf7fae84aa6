crc = 0xFFFF
for i in range(1, 500001):
    b = (i * 31 + 7) & 0xFF
    crc = crc ^ b
    for k in range(8):
        if crc & 1 != 0:
            crc = (crc >> 1) ^ 0xA001
        else:
            crc = crc >> 1
print(crc)
