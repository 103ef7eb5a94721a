' Checks that this script host can create Orvessa.Pictava: prints the type name of a new object
' (_Pictava), or what went wrong and ends with status 1.   cscript //nologo check.vbs
On Error Resume Next: WScript.Echo TypeName(CreateObject("Orvessa.Pictava")): If Err.Number <> 0 Then WScript.Echo "FAILED: error " & Err.Number & " (" & Err.Description & "): see README.txt": WScript.Quit 1
