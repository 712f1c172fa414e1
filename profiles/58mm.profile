# A printer for 58 mm paper: 48 mm printable at 203 dpi. Format as in 80mm.profile.
name = 58mm
width = 384
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
