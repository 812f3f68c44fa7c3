# Runs the screenshot program into a fresh folder and checks that it drew every window of the
# start-up in each language. Called with -DPROGRAM=... -DOUTPUT=...
file(REMOVE_RECURSE ${OUTPUT})
execute_process(COMMAND ${PROGRAM} ${OUTPUT} RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "mailsift-screenshots failed (${status}): ${errors}")
endif()
foreach(language English Russian French)
  foreach(form MainForm SetupForm SetupForm.TabSheet2 SetupForm.TabSheet3 SetupForm.TabSheet4
               SetupForm.TabSheet5 SetupForm.TabSheet6 BrowseForm MessageViewForm DBXViewForm
               AboutForm ExtractDialogForm StorageManagerForm MSOutlookWizardForm
               MSOutlookStepByStepForm SearchStoragesForm SearchLibraryForm EAEWizardFrm
               EAEWizardFrm.2 EAEWizardFrm.3 EAEWizardFrm.4 EAEWizardFrm.5)
    set(picture ${OUTPUT}/${language}/${form}.png)
    file(SIZE ${picture} size)
    if(size LESS 1000)
      message(FATAL_ERROR "${picture} is missing or empty")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE ${OUTPUT})
