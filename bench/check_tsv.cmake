# Runs kerbolt-bench --tsv on a tiny table and checks its standard output line by line: key,
# seconds, operations, ratio to the raw read (reads only), ratio to the raw copy (writes only),
# tab-separated with "." as decimal point, in the order of the measurements.
execute_process(COMMAND ${BENCH} --records 2000 --tables 4 --writes 5 --lookups 100 --tsv
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kerbolt-bench --tsv failed (${status}): ${err}")
endif()
set(number "[0-9]+(\\.[0-9]+)?(e[-+][0-9]+)?")
set(read "\t${number}\t${number}\t${number}\t\n")
set(write "\t${number}\t${number}\t\t${number}\n")
set(expected "^build${write}open${read}last_row${read}scan${read}dump${read}random_row${read}findkey${read}")
string(APPEND expected "switch_secondary${read}random_row_secondary${read}switch_primary${read}")
string(APPEND expected "first_post${write}append_post${write}edit_post${write}copy${write}restructure${write}")
string(APPEND expected "scan_directory\t${number}\t${number}\t\t\n$")
if(NOT out MATCHES "${expected}")
  message(FATAL_ERROR "Unexpected --tsv output:\n${out}")
endif()
