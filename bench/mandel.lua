-- A float loop: the Mandelbrot set on a 1000 x 700 grid: the twin of mandel.xeb.
local w, h, steps = 1000, 700, 100
local inside = 0
for py = 1, h do
  local ci = (py - 1) * 2.4 / h - 1.2
  for px = 1, w do
    local cr = (px - 1) * 3.2 / w - 2.2
    local zr, zi, i = 0.0, 0.0, 0
    while i < steps and zr * zr + zi * zi <= 4.0 do
      zr, zi = zr * zr - zi * zi + cr, 2.0 * zr * zi + ci
      i = i + 1
    end
    if i == steps then inside = inside + 1 end
  end
end
print(inside)
