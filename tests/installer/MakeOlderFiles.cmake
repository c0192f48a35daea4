# The files of the "older build" that installer_e2e upgrades from: copies of the shipping
# files with a line appended that the test looks for (a program or library still loads with
# it; the picture and the sound still open), laid out as Tessory.nsi expects BIN_DIR and
# SRC_DIR.
#   cmake -DBIN=<shipping bin> -DSRC=<source> -DOUT=<folder> -P MakeOlderFiles.cmake
set(mark "\nTessory older build\n")
file(REMOVE_RECURSE ${OUT})
foreach(f Corvane.exe TzDialer.exe TzOSControl.dll TzSetupUtils.dll ZnSetup.hlp ZnSetup.cnt)
  if(EXISTS ${BIN}/${f})
    configure_file(${BIN}/${f} ${OUT}/bin/${f} COPYONLY)
    file(APPEND ${OUT}/bin/${f} "${mark}")
  endif()
endforeach()
foreach(f dialer/res/signin_zn.bmp installer/connect.wav tray/res/Corvane.ico)
  configure_file(${SRC}/${f} ${OUT}/src/${f} COPYONLY)
endforeach()
foreach(f dialer/res/signin_zn.bmp installer/connect.wav)
  file(APPEND ${OUT}/src/${f} "${mark}")
endforeach()
