# Writes the page's files into SITE under names that carry a hash of their
# content, so that a browser never mixes two versions: a changed file gets a
# new name, and every file that names it changes too. Only index.html and
# offline.js keep their names; servers make browsers revalidate those two.
#
#   cmake -DFILES=DIR -DSITE=DIR -P web/stamp.cmake
#
# FILES holds the page's files under their plain names. A file refers to
# another by its plain name in quotes ('page.js' or "page.js", also with
# ./ before it, as ES modules name theirs); each such reference becomes the
# hashed name. offline.js also gets @PAGE_VERSION@, the hash of the stamped
# index.html, which names the whole set of files.
# web/serve and offline.js know a content name by its form:
# NAME.<10 hexadecimal digits>.EXTENSION.
#
# Every file also gets its compressed forms, NAME.gz and (where Debian's
# brotli is installed) NAME.br, for servers to send as they are. The files
# are written into a new folder, SITE.<version>, and SITE becomes a symbolic
# link to it in one rename: a server never sees a half-written site. The
# folder SITE pointed to before stays, for requests under way; older ones
# go.
cmake_minimum_required(VERSION 3.25)

foreach(variable FILES SITE)
  if("${${variable}}" STREQUAL "")
    message(FATAL_ERROR "usage: cmake -DFILES=DIR -DSITE=DIR -P stamp.cmake")
  endif()
endforeach()
# SITE is replaced: never a folder that holds FILES.
file(REAL_PATH "${FILES}" files_path)
file(REAL_PATH "${SITE}" site_path)
string(FIND "${files_path}/" "${site_path}/" site_in_files_path)
if(site_in_files_path EQUAL 0)
  message(FATAL_ERROR "stamp.cmake: SITE (${SITE}) must not hold FILES (${FILES})")
endif()

# Each file after every file it names.
set(hashed_files calculator.wasm calculator.js session.js worker.js style.css icon.svg page.js)
set(hash_length 10)

set(replacements)
function(refer_by_hashed_names content_variable)
  set(content "${${content_variable}}")
  foreach(pair IN LISTS replacements)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 plain)
    list(GET pair 1 hashed)
    foreach(quote "'" "\"")
      foreach(prefix "" "./")
        string(REPLACE "${quote}${prefix}${plain}${quote}" "${quote}${prefix}${hashed}${quote}"
               content "${content}")
      endforeach()
    endforeach()
  endforeach()
  set(${content_variable} "${content}" PARENT_SCOPE)
endfunction()

function(hashed_name plain hash out_variable)
  string(SUBSTRING "${hash}" 0 ${hash_length} short_hash)
  string(REGEX REPLACE "^([^.]*)\\.(.*)$" "\\1.${short_hash}.\\2" name "${plain}")
  set(${out_variable} "${name}" PARENT_SCOPE)
endfunction()

set(final_site "${SITE}")
set(SITE "${final_site}.new")
file(REMOVE_RECURSE "${SITE}")
file(MAKE_DIRECTORY "${SITE}")

foreach(plain IN LISTS hashed_files)
  set(source "${FILES}/${plain}")
  if(plain MATCHES "\\.wasm$")
    file(SHA256 "${source}" hash)
    hashed_name(${plain} ${hash} name)
    file(COPY_FILE "${source}" "${SITE}/${name}")
  else()
    file(READ "${source}" content)
    refer_by_hashed_names(content)
    string(SHA256 hash "${content}")
    hashed_name(${plain} ${hash} name)
    file(WRITE "${SITE}/${name}" "${content}")
  endif()
  list(APPEND replacements "${plain}=${name}")
endforeach()

file(READ "${FILES}/index.html" index)
refer_by_hashed_names(index)
file(WRITE "${SITE}/index.html" "${index}")

file(READ "${FILES}/offline.js" offline)
refer_by_hashed_names(offline)
string(SHA256 page_version "${index}")
string(SUBSTRING "${page_version}" 0 ${hash_length} page_version)
string(REPLACE "@PAGE_VERSION@" "${page_version}" offline "${offline}")
file(WRITE "${SITE}/offline.js" "${offline}")

find_program(GZIP gzip REQUIRED)
find_program(BROTLI brotli)
file(GLOB site_files "${SITE}/*")
foreach(site_file IN LISTS site_files)
  execute_process(COMMAND "${GZIP}" -9 -n -k "${site_file}" COMMAND_ERROR_IS_FATAL ANY)
  if(BROTLI)
    execute_process(COMMAND "${BROTLI}" -q 11 -k "${site_file}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()

# The swap. The version names the folder: a build that changed nothing
# keeps the folder in use.
get_filename_component(site_name "${final_site}" NAME)
set(version_folder "${final_site}.${page_version}")
if(EXISTS "${version_folder}")
  file(REMOVE_RECURSE "${SITE}")
else()
  file(RENAME "${SITE}" "${version_folder}")
endif()
set(previous "")
if(IS_SYMLINK "${final_site}")
  file(READ_SYMLINK "${final_site}" previous)
elseif(EXISTS "${final_site}")
  file(REMOVE_RECURSE "${final_site}")  # a plain folder from an earlier build
endif()
file(REMOVE "${final_site}.link")
file(CREATE_LINK "${site_name}.${page_version}" "${final_site}.link" SYMBOLIC)
file(RENAME "${final_site}.link" "${final_site}")
file(GLOB earlier_folders LIST_DIRECTORIES true "${final_site}.*")
foreach(folder IN LISTS earlier_folders)
  get_filename_component(name "${folder}" NAME)
  if(IS_DIRECTORY "${folder}" AND NOT name STREQUAL "${site_name}.${page_version}" AND
     NOT name STREQUAL "${previous}" AND name MATCHES "^${site_name}\\.[0-9a-f]+$")
    file(REMOVE_RECURSE "${folder}")
  endif()
endforeach()
