# The Windows build's tests: filled in below.
