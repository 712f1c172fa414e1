# A printer for 80 mm paper: 72 mm printable at 203 dpi. The default profile.
# Format: one "key = value" a line, "#" starts a comment. Keys:
#   name        the profile's name
#   width       printable width in dots
#   dots-per-mm resolution
#   font        NAME WIDTHxHEIGHT: a font and its character cell in dots (A is the default font)
#   codepage    NAME N: a code page the printer has and its ESC t number; "&" for a multi-byte page (FS &)
#   features    what the printer does itself: cutter drawer qr pdf417 barcode raster graphics column status
name = 80mm
width = 576
dots-per-mm = 8
font = A 12x24
font = B 9x17
codepage = CP437 0
codepage = CP850 2
codepage = CP858 19
codepage = CP852 18
codepage = CP866 17
codepage = CP737 14
codepage = CP1252 16
codepage = ISO-8859-15 40
features = cutter drawer qr pdf417 barcode raster graphics column status
