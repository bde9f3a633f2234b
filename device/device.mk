# The device build (`make`, `make package`) and `make install`; included by the Makefile.
DEVICE_BUILD ?= build/device
THEOS_DEVICE_PORT ?= 22
control_field = $(shell sed -n 's/^$(1): *//p' device/layout/DEBIAN/control)
DEVICE_PACKAGE = packages/$(call control_field,Package)_$(call control_field,Version)_$(call control_field,Architecture).deb

.PHONY: package repo install do device-address

package: setup
	$(STEP) "configure the device build" cmake -S device -B $(DEVICE_BUILD) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/device/ios-arm64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	$(STEP) "build the device binaries" cmake --build $(DEVICE_BUILD) -j $(JOBS)
	$(STEP) "pack $(DEVICE_PACKAGE)" sh device/package.sh $(DEVICE_BUILD) $(DEVICE_PACKAGE)

# The package repository that package managers read, in packages/repo (device/repo.py says what it
# holds). REPO_URL, the address where it will be published, lets the package name its depictions.
repo: package
	$(STEP) "write the repository packages/repo" python3 device/repo.py $(DEVICE_PACKAGE) packages/repo $(REPO_URL)

# Theos's habit: build, then install.
do: device-address package install

# One ssh session: copy, install, and quit the Music app so that it loads the new tweak when
# opened again (killall fails when Music is not running, which is fine).
install: device-address package
	$(STEP) "install on $(THEOS_DEVICE_IP)" ssh -p $(THEOS_DEVICE_PORT) root@$(THEOS_DEVICE_IP) \
		'cat > /tmp/twinly2.deb && dpkg -i /tmp/twinly2.deb && rm -f /tmp/twinly2.deb && { killall -9 Music || true; }' \
		< $(DEVICE_PACKAGE)

# Asked before anything is built, so that a missing address stops at once.
device-address:
	@test -n "$(THEOS_DEVICE_IP)" || { \
		echo "make $(MAKECMDGOALS): set THEOS_DEVICE_IP to the device's address (and THEOS_DEVICE_PORT if ssh is not on port 22)" >&2; \
		exit 1; }
