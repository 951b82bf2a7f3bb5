# The Debian package: kv7_<version>_amd64.deb, installed under /usr, its
# dependencies found by dpkg-shlibdeps from the programs it holds.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Sets up and tests the KV7 motor controller of an equatorial telescope mount
with absolute encoders over a serial port: the encoder data format and
calibration, encoder readings, a hand pad, sidereal tracking, reference
positions, meridian flips and slews to a typed position.

The package holds the desktop program (kv7-encoder-setup, in the
application menu), the command-line tool kv7ctl, the virtual controller
kv7sim, which serves a simulated KV7 on a pseudo-terminal, and the INDI
telescope driver indi_kv7_telescope for KStars/Ekos and other INDI clients.

Serial ports (/dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*) belong to the group
dialout: to connect to a controller, add your user to it once (sudo adduser
NAME dialout) and log in again. The simulator needs no port.")
