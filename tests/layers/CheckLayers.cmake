# Layers point down only: each folder may include its own files and those of the folders below
# it. Run as a test, so a stray include fails the build's checks instead of growing a cycle.
cmake_minimum_required(VERSION 3.25)

# Usage: cmake -DSOURCE_DIR=<top folder> -P CheckLayers.cmake

set(allowed_platform/core "platform/core")
set(allowed_document "document;platform/core")
set(allowed_platform/ui "platform/ui;platform/core")
set(allowed_resources "resources;platform/ui;platform/core")
set(allowed_editing "editing;view;document;platform/ui;platform/core;resources")
set(allowed_view "view;sheets;document;platform/ui;platform/core;resources")
set(allowed_app "app;editing;view;sheets;sync;calendar;document;platform/ui;platform/core;resources")
set(allowed_calendar "calendar;document;platform/core")
set(allowed_sheets "sheets;document;platform/core")
set(allowed_sync "sync;calendar;document;platform/core")
set(allowed_tools/book "tools/book;sync;calendar;sheets;document;platform/core")

set(failures "")
foreach(folder platform/core document calendar sheets sync platform/ui resources editing view app
        tools/book)
    file(GLOB files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" includes REGEX "^#include \"[^\"]+/[^\"/]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"(.+)/[^/]+\".*$" "\\1" target "${line}")
            if(NOT target IN_LIST allowed_${folder})
                file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
                string(APPEND failures "  ${name}: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(failures)
    message(FATAL_ERROR "includes that point up or sideways:\n${failures}")
endif()
