# The NSIS installer (filled in below).
