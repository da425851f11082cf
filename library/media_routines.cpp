// Runtime routines of images and the clipboard: the image codecs' encoder
// and decoder behind system/codecs, and read-clipboard / write-clipboard.
#include "datatypes/image.h"
#include "io/clipboard.h"
#include "library/routines.h"
#include "runtime/stack.h"

namespace xeb::routines {

namespace {

Cell* arg(int n) { return stack::base() + n; }
void result(const Cell* v) { *stack::base() = *v; }

// _image-encode [img [image!] where code [integer!]]: the image in the
// format of the code (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) as a binary!;
// for any other code, where as it was given.
void image_encode() {
  Cell* out = image::encode(arg(0), get_int(arg(2)));
  result(out ? out : arg(1));
}

// _image-decode [data]: a binary! or a file! decoded; none for bytes with
// no image signature.
void image_decode() { result(image::decode(arg(0))); }

void read_clipboard() { result(io::clipboard::read()); }

void write_clipboard() { *stack::base() = Cell{T_LOGIC, io::clipboard::write(arg(0)) ? 1u : 0u, 0, 0}; }

constexpr Def kMedia[] = {
    {"_image-encode", &image_encode},
    {"_image-decode", &image_decode},
    {"read-clipboard", &read_clipboard},
    {"write-clipboard", &write_clipboard},
};

}  // namespace

std::span<const Def> media_routines() { return kMedia; }

}  // namespace xeb::routines
