# three.js from Debian's libjs-three: the 3D page inlines it, read at run time from the folder
# found here (the environment variable CORVANE_THREE_DIR overrides it when the tool runs).
find_path(CORVANE_THREE_DIR three.min.js
  PATHS /usr/share/javascript/three
  DOC "Folder of three.min.js and examples/js (Debian package libjs-three)")
if(CORVANE_THREE_DIR)
  set(CORVANE_THREE_RUNTIME_DIR ${CORVANE_THREE_DIR})
else()
  message(WARNING "three.js not found (Debian package libjs-three): corvane-urdf -f html and "
                  "-f snapshot will look for it in /usr/share/javascript/three when they run")
  set(CORVANE_THREE_RUNTIME_DIR /usr/share/javascript/three)
endif()
