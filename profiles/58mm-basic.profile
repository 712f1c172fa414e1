# Low-cost 58 mm printers: no cutter, no drawer port, no two-dimensional codes of their own and only the
# raster picture command; QR codes and PDF417 are sent as pictures. Format as in 80mm.profile.
name = 58mm-basic
width = 384
dots-per-mm = 8
font = A 12x24
font = B 9x17
codepage = CP437 0
codepage = CP850 2
codepage = CP866 17
codepage = CP1252 16
features = barcode raster status
