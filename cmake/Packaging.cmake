# What a Linux user expects beside the three programs: the version they print, man pages,
# shell completion, AppStream data, and the Debian package (cpack -G DEB) that holds it all.
# Included last, once the programs' targets exist.

# The version itself is the one in project(); this is its release day.
set(KALDRANI_RELEASE_DATE "2026-12-10")
set(KALDRANI_HOMEPAGE "https://www.kaldrani.com/")
set(KALDRANI_SCREENSHOT_URL "${KALDRANI_HOMEPAGE}screenshots" CACHE STRING
    "Where the PNGs of share/screenshots are published, for the AppStream data")
set(KALDRANI_PACKAGE_MAINTAINER "The Kaldrani developers <packages@kaldrani.com>" CACHE STRING
    "Maintainer field of the Debian package")

execute_process(COMMAND date -u -d "${KALDRANI_RELEASE_DATE}" +%s
                OUTPUT_VARIABLE KALDRANI_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} "${KALDRANI_RELEASE_EPOCH}")
string(TIMESTAMP KALDRANI_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

set(generated_share ${PROJECT_BINARY_DIR}/share)

# Debian's hardening for every program: checked libc calls where the compiler knows the
# buffer sizes, and relocations bound at start and then read-only. Not under the
# sanitizers, which intercept those calls themselves.
if(NOT KALDRANI_SANITIZE AND NOT KALDRANI_FUZZ)
  target_compile_definitions(kaldrani_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  target_link_options(kaldrani_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()

# --version of every program prints the project's version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/kaldrani/Version.h @ONLY)
foreach(program kaldrani kaldrani-cli kaldrani-standin)
  if(TARGET ${program})
    target_include_directories(${program} PRIVATE ${PROJECT_BINARY_DIR}/generated)
  endif()
endforeach()

# Man pages from scdoc, dated by the release so that a rebuild gives the same bytes, and
# compressed as Debian policy asks.
find_program(SCDOC_PROGRAM scdoc REQUIRED)
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages "")
foreach(page kaldrani.1 kaldrani-cli.1 kaldrani-standin.1)
  set(source ${PROJECT_SOURCE_DIR}/share/man/${page}.scd)
  set(page_out ${generated_share}/man/${page})
  add_custom_command(OUTPUT ${page_out} ${page_out}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_share}/man
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KALDRANI_RELEASE_EPOCH}
            sh -c "\"$0\" < \"$1\" > \"$2\" && \"$3\" -9n < \"$2\" > \"$2.gz\""
            ${SCDOC_PROGRAM} ${source} ${page_out} ${GZIP_PROGRAM}
    DEPENDS ${source}
    COMMENT "Building the man page ${page}"
    VERBATIM)
  list(APPEND man_pages ${page_out}.gz)
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/share/doc/changelog.in ${generated_share}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${generated_share}/doc/changelog.gz
  COMMAND sh -c "\"$0\" -9n < \"$1\" > \"$1.gz\"" ${GZIP_PROGRAM} ${generated_share}/doc/changelog
  DEPENDS ${generated_share}/doc/changelog
  VERBATIM)
add_custom_target(kaldrani_docs ALL DEPENDS ${man_pages} ${generated_share}/doc/changelog.gz)

# Each screenshot with its caption; the sizes come from the PNGs' own headers.
set(screenshots
  "main|A site overview: indexed pages and backlinks in seven engines, and four ranks"
  "keyword|A site's position for a keyword in each engine over five result pages"
  "history|A site's history, newest first")
set(KALDRANI_SCREENSHOTS "")
set(shot_type default)
foreach(entry IN LISTS screenshots)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 caption)
  set(png ${PROJECT_SOURCE_DIR}/share/screenshots/${name}.png)
  file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${header}" 0 8 width)
  string(SUBSTRING "${header}" 8 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  string(APPEND KALDRANI_SCREENSHOTS
    "    <screenshot type=\"${shot_type}\">\n"
    "      <caption>${caption}</caption>\n"
    "      <image type=\"source\" width=\"${width}\" height=\"${height}\">${KALDRANI_SCREENSHOT_URL}/${name}.png</image>\n"
    "    </screenshot>\n")
  set(shot_type extra)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${png})
endforeach()
set(metainfo ${generated_share}/metainfo/com.kaldrani.kaldrani.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/share/metainfo/com.kaldrani.kaldrani.metainfo.xml.in ${metainfo} @ONLY)

install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/share/completion/kaldrani-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kaldrani-cli)
install(FILES ${PROJECT_SOURCE_DIR}/share/completion/_kaldrani-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/share/doc/copyright ${generated_share}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kaldrani)

if(BUILD_TESTING)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(checker ${PROJECT_SOURCE_DIR}/tests/packaging/check_cli_man_page.py)
  add_test(NAME Packaging.CliManPageCoversEveryVerbAndOption
           COMMAND Python3::Interpreter ${checker} $<TARGET_FILE:kaldrani-cli> ${generated_share}/man/kaldrani-cli.1)
  # The check itself: a page missing one option must fail, naming the verb and the option.
  add_test(NAME Packaging.CliManPageCheckNamesTheGap
           COMMAND Python3::Interpreter ${checker} $<TARGET_FILE:kaldrani-cli> ${generated_share}/man/kaldrani-cli.1
                   --without --engines)
  set_tests_properties(Packaging.CliManPageCheckNamesTheGap PROPERTIES
    PASS_REGULAR_EXPRESSION "verb 'rank': option --engines is missing")
  add_test(NAME Packaging.BashCompletion
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/completion_test.sh
                   ${PROJECT_SOURCE_DIR}/share/completion/kaldrani-cli.bash $<TARGET_FILE:kaldrani-cli>)

  find_program(ZSH_PROGRAM zsh)
  if(ZSH_PROGRAM)
    add_test(NAME Packaging.ZshCompletion
             COMMAND ${ZSH_PROGRAM} -f ${PROJECT_SOURCE_DIR}/tests/packaging/zsh_completion_test.zsh
                     ${PROJECT_SOURCE_DIR}/share/completion/_kaldrani-cli $<TARGET_FILE:kaldrani-cli>)
  endif()
  find_program(APPSTREAMCLI_PROGRAM appstreamcli)
  if(APPSTREAMCLI_PROGRAM)
    add_test(NAME Packaging.MetainfoValidates COMMAND ${APPSTREAMCLI_PROGRAM} validate --no-net ${metainfo})
  endif()
  # desktop-file-validate exits 0 on hints too; any line it prints is a finding.
  find_program(DESKTOP_FILE_VALIDATE_PROGRAM desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE_PROGRAM)
    add_test(NAME Packaging.DesktopEntryValidates
             COMMAND ${DESKTOP_FILE_VALIDATE_PROGRAM} ${PROJECT_SOURCE_DIR}/resources/kaldrani.desktop)
    set_tests_properties(Packaging.DesktopEntryValidates PROPERTIES FAIL_REGULAR_EXPRESSION ".")
  endif()
endif()

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kaldrani)
set(CPACK_PACKAGE_VENDOR "The Kaldrani developers")
set(CPACK_PACKAGE_CONTACT "${KALDRANI_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "webmaster toolbox: search engine counts, ranks and site history")
set(CPACK_PACKAGE_DESCRIPTION [[
Kaldrani asks public web services about a web site: how many of its pages
seven search engines have indexed and how many backlinks they report, its
PageRank, Sogou rating, Alexa rank and ChinaRank. It keeps a history of these
figures for each of the user's sites, finds a site's position for a keyword
in each engine, looks up whois records and IP locations, and sends one
message to a list of addresses.

The package holds the window program kaldrani (Chinese user interface), the
command-line program kaldrani-cli, and kaldrani-standin, local stand-in
services for trying both without the real ones.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KALDRANI_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries the programs link: the font of the Chinese captions, and Qt's
# platform plugins, without which no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
include(CPack)
