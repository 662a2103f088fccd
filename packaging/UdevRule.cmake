# brevik_udev_rule(IDS_FILE RULES_FILE): the udev rule for the USB ids listed
# in IDS_FILE ("VENDOR:PRODUCT  description" a line, '#' comments). udev
# compares the ids as the kernel writes them, four lowercase hexadecimal
# digits each: any other form would never match, so it stops with an error.
# brevik_usb_modaliases(IDS_FILE OUT): the same ids as AppStream <modalias>
# lines, so that software centres know which devices the package serves.
# Also runs as a script: cmake -DIDS=FILE -DRULES=FILE -P UdevRule.cmake
function(brevik_usb_ids ids_file out)
    file(STRINGS ${ids_file} id_lines REGEX "^[^#]")
    foreach(line IN LISTS id_lines)
        if(NOT line MATCHES
           "^[0-9a-f][0-9a-f][0-9a-f][0-9a-f]:[0-9a-f][0-9a-f][0-9a-f][0-9a-f]([ \t]|$)")
            message(FATAL_ERROR "${ids_file}: '${line}' is not VENDOR:PRODUCT with four "
                "lowercase hexadecimal digits each (as lsusb shows them)")
        endif()
    endforeach()
    set(${out} ${id_lines} PARENT_SCOPE)
endfunction()

function(brevik_usb_modaliases ids_file out)
    brevik_usb_ids(${ids_file} id_lines)
    set(lines "")
    foreach(line IN LISTS id_lines)
        string(REGEX MATCH "^([0-9a-f]+):([0-9a-f]+)" _ "${line}")
        # Modaliases spell the ids in capitals: usb:v1D50p6130d*
        string(TOUPPER "${CMAKE_MATCH_1}" vendor)
        string(TOUPPER "${CMAKE_MATCH_2}" product)
        string(APPEND lines "    <modalias>usb:v${vendor}p${product}d*</modalias>\n")
    endforeach()
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(brevik_udev_rule ids_file rules_file)
    brevik_usb_ids(${ids_file} id_lines)
    set(rules "# Made from usb-ids.txt: access for the logged-in user, no probing by\n")
    string(APPEND rules "# ModemManager and a 1 ms latency timer, for the USB serial bridges of\n")
    string(APPEND rules "# Brevik devices only.\n")
    foreach(line IN LISTS id_lines)
        string(REGEX MATCH "^([0-9a-f]+):([0-9a-f]+)[ \t]*(.*)$" _ "${line}")
        string(APPEND rules "# ${CMAKE_MATCH_3}\n")
        string(APPEND rules "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"${CMAKE_MATCH_1}\", "
            "ATTR{idProduct}==\"${CMAKE_MATCH_2}\", ENV{ID_MM_DEVICE_IGNORE}=\"1\", "
            "TAG+=\"uaccess\"\n")
        string(APPEND rules "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"${CMAKE_MATCH_1}\", "
            "ATTRS{idProduct}==\"${CMAKE_MATCH_2}\", ENV{ID_MM_DEVICE_IGNORE}=\"1\", "
            "TAG+=\"uaccess\"\n")
        # An FTDI bridge holds short replies until its latency timer ticks
        # (16 ms): 1 ms makes each acknowledged block of an upload that much
        # quicker. Other bridge drivers have no such attribute.
        string(APPEND rules "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
            "ATTRS{idVendor}==\"${CMAKE_MATCH_1}\", ATTRS{idProduct}==\"${CMAKE_MATCH_2}\", "
            "ATTR{latency_timer}=\"1\"\n")
    endforeach()
    file(WRITE ${rules_file} "${rules}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED IDS AND DEFINED RULES)
    brevik_udev_rule(${IDS} ${RULES})
endif()
