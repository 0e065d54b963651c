# Checks the dynamic symbol table of the plugin library: it defines the members, vtable and
# typeinfo of corvane::Plugins::Urdf::UrdfPlugin and nothing else, so that no code of urdfdom,
# tinyxml, spdlog, fmt or the standard library instantiated inside the plugin is exported.
# Arguments: -DLIBRARY=<path of libcorvaneurdfplugin.so> -DNM=<nm>
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS LIBRARY NM)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()

execute_process(COMMAND "${NM}" -D --defined-only --demangle "${LIBRARY}"
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} -D --defined-only failed on ${LIBRARY} (${result}): ${errors}")
endif()

set(class "corvane::Plugins::Urdf::UrdfPlugin")
set(required
  "${class}::UrdfPlugin()"
  "${class}::~UrdfPlugin()"
  "${class}::setPrecision(int)"
  "${class}::keyShouldBeSource() const"
  "vtable for ${class}"
  "typeinfo for ${class}")
set(exported "")
set(unexpected "")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  # "<address> <type> <demangled name>"; the name itself may contain spaces.
  if(NOT line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    continue()
  endif()
  set(symbol "${CMAKE_MATCH_1}")
  list(APPEND exported "${symbol}")
  string(FIND "${symbol}" "${class}::" member_position)
  if(NOT member_position EQUAL 0
     AND NOT symbol STREQUAL "vtable for ${class}"
     AND NOT symbol STREQUAL "typeinfo for ${class}"
     AND NOT symbol STREQUAL "typeinfo name for ${class}")
    list(APPEND unexpected "${symbol}")
  endif()
endforeach()

set(missing "")
foreach(symbol IN LISTS required)
  if(NOT symbol IN_LIST exported)
    list(APPEND missing "${symbol}")
  endif()
endforeach()
# parse has a long signature; its name is enough.
if(NOT exported MATCHES "${class}::parse\\(")
  list(APPEND missing "${class}::parse(...)")
endif()

list(LENGTH exported exported_count)
message(STATUS "${LIBRARY}: ${exported_count} exported symbols")
if(unexpected OR missing)
  list(JOIN unexpected "\n  " unexpected_text)
  list(JOIN missing "\n  " missing_text)
  message(FATAL_ERROR
    "exported but not part of the plugin's interface:\n  ${unexpected_text}\n"
    "part of the plugin's interface but not exported:\n  ${missing_text}")
endif()
