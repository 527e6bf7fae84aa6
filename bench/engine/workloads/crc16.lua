local crc = 0xFFFF
for i = 1, 500000 do
  local b = (i * 31 + 7) & 0xFF
  crc = crc ~ b
  for k = 1, 8 do
    if crc & 1 ~= 0 then crc = (crc >> 1) ~ 0xA001 else crc = crc >> 1 end
  end
end
print(crc)
