# A float loop: the Mandelbrot set on a 1000 x 700 grid: the twin of mandel.xeb.
w, h, steps = 1000, 700, 100
inside = 0
for py in range(1, h + 1):
    ci = (py - 1) * 2.4 / h - 1.2
    for px in range(1, w + 1):
        cr = (px - 1) * 3.2 / w - 2.2
        zr = zi = 0.0
        i = 0
        while i < steps and zr * zr + zi * zi <= 4.0:
            zr, zi = zr * zr - zi * zi + cr, 2.0 * zr * zi + ci
            i += 1
        if i == steps:
            inside += 1
print(inside)
