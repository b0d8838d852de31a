#!/bin/sh
# wine64 with the same address-space layout in every run. Debian's wine64 has
# no preloader to reserve the addresses Wine needs, so with a randomized layout
# the kernel now and then puts a mapping where Wine maps the shared user data
# page, and the start fails before the program runs ("failed to map the shared
# user data", exit 1, nothing printed under WINEDEBUG=-all): about one start in
# 3,000 here. Without randomization the layout is the same each time, and it works.
exec setarch x86_64 -R /usr/lib/wine/wine64 "$@"
