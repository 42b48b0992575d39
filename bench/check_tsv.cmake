# Runs kerbolt-bench --tsv on a tiny table and checks its standard output line by line: key,
# seconds, operations, ratio to the raw read (reads only), ratio to the raw copy (writes only),
# tab-separated with "." as decimal point, in the order of the measurements.
execute_process(COMMAND ${BENCH} --records 2000 --tables 4 --writes 5 --lookups 100 --tsv
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kerbolt-bench --tsv failed (${status}): ${err}")
endif()
if(NOT out MATCHES "\n$")
  message(FATAL_ERROR "The --tsv output does not end with a line break:\n${out}")
endif()
string(REGEX REPLACE "\n$" "" out "${out}")
string(REPLACE "\n" ";" lines "${out}")
# key:kind, kind r = ratio to the raw read, c = ratio to the raw copy, n = neither
set(expected build:c raw_sync:n open:r last_row:r scan:r dump:r random_row:r findkey:r switch_secondary:r
    random_row_secondary:r switch_primary:r first_post:c append_post:c edit_post:c copy:c duplicate:c verify:r
    export_sqlite:r sqlite_floor:r restructure:c
    scan_directory:n)
list(LENGTH lines count)
list(LENGTH expected wanted)
if(NOT count EQUAL wanted)
  message(FATAL_ERROR "${count} lines instead of ${wanted}:\n${out}")
endif()
set(number "[0-9]+(\\.[0-9]+)?(e[-+][0-9]+)?")
set(r "\t${number}\t")
set(c "\t\t${number}")
set(n "\t\t")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET lines ${i} line)
  list(GET expected ${i} entry)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 key)
  list(GET entry 1 kind)
  if(NOT line MATCHES "^${key}\t${number}\t${number}${${kind}}$")
    message(FATAL_ERROR "Line ${i} is not \"${key}\" with its figures: \"${line}\"")
  endif()
endforeach()
