# Debian packages, one per install component: ringwatch (the program and its desktop
# integration), libzvtapi0 (the shared library) and libzvtapi-dev (headers, static library,
# .so link, CMake and pkg-config files). `cpack --config build/default/CPackConfig.cmake`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ringwatch)
set(CPACK_PACKAGE_VENDOR "Ringwatch maintainers")
set(CPACK_PACKAGE_CONTACT "Ringwatch maintainers <maintainers@users.noreply.c-seed-de6b71ff.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL ringwatch runtime development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time dependencies come from the ELF files (dpkg-shlibdeps); the shared library's package
# declares what it provides, so packages built against it depend on it correctly.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/strip_debug.cmake)

set(CPACK_DEBIAN_RINGWATCH_PACKAGE_NAME ringwatch)
set(CPACK_DEBIAN_RINGWATCH_PACKAGE_SECTION comm)
# dpkg-shlibdeps finds the Qt libraries the program links; libqt6gui6 among them also carries
# the xcb and offscreen platform plugins Qt loads at run time. Without a font every glyph is an
# empty box, and nothing warns. On a Wayland session Qt uses its native plugin when it is
# there, XWayland otherwise.
set(CPACK_DEBIAN_RINGWATCH_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_RINGWATCH_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_COMPONENT_RINGWATCH_DESCRIPTION
    "Telephony monitor for the desktop
Ringwatch opens every telephone line that supports interactive voice, lists
the calls on them as they come, change and go, and lets the user accept,
answer or drop them. Without a telephony configuration it shows the calls of
a simulated demo office; SIP accounts make it watch real phone lines.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libzvtapi${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Component library over the Telephony API 2.x
zvTapi is an object layer over the Telephony API: an application object,
line and phone components, addresses, calls with their information and
parties, asynchronous requests and an event thread. It brings its own
Telephony API runtime with a simulated switch and a SIP provider.
.
This package contains the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libzvtapi-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# Static linking and pkg-config's Requires.private need the private dependencies' own
# development files.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libzvtapi${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}), libre-dev, librem-dev, libpulse-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "Component library over the Telephony API 2.x (development files)
zvTapi is an object layer over the Telephony API: an application object,
line and phone components, addresses, calls with their information and
parties, asynchronous requests and an event thread.
.
This package contains the headers, the static library, and the CMake
package (find_package(zvTapi)) and pkg-config (zvtapi) files.")

include(CPack)
