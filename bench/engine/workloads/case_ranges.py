lo = mid = hi = odd = other = 0
for i in range(1, 2000001):
    match i % 20:
        case 0 | 1 | 2 | 3:
            lo = lo + 1
        case 4 | 6 | 8:
            mid = mid + 1
        case 10 | 11 | 12 | 13 | 15:
            hi = hi + 1
        case 5 | 7 | 9 | 17 | 19:
            odd = odd + 1
        case _:
            other = other + 1
print(lo, mid, hi, odd, other)
