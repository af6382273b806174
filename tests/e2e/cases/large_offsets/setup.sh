# A scan, a hole of NUL bytes (one NUL line) past the 2 GiB mark, a scan.
printf '#S 1 before\n1 2\n' > large.dat
truncate -s 2147495993 large.dat
printf '\n#S 7 after the hole\n#N 2\n5 50\n6 60\n' >> large.dat
