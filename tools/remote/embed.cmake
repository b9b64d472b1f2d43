# Writes the page as a C++ header: cmake -DIN=page.html -DOUT=page.h -P embed.cmake
file(READ ${IN} page)
file(WRITE ${OUT} "// Made from page/index.html by embed.cmake: edit that file instead.\n#pragma once\n#include <string_view>\nnamespace corvil::remote {\ninline constexpr std::string_view kPage = R\"corvilpage(${page})corvilpage\";\n}\n")
