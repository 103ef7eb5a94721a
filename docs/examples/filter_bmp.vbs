' Filters a 24-bit BMP file with Orvessa.Pictava and writes a new BMP file:
' reads the file's header and its pixel bytes, the pixels as a byte array
' (the one kind of array the filters take), filters the array in place, and
' writes the header and the changed array.
'   cscript //nologo filter_bmp.vbs IN.bmp OUT.bmp [blur|smooth]
' IN.bmp: 24 bits a pixel, uncompressed, rows bottom-up, the pixels right
' after the 54-byte header (as Paint saves a 24-bit bitmap).
Option Explicit

Const HeaderSize = 54     ' BITMAPFILEHEADER (14 bytes) and BITMAPINFOHEADER (40)
Const adTypeBinary = 1, adSaveCreateOverWrite = 2
Const ForReading = 1, ForAppending = 8, AsAnsi = 0, AsUnicode = -1

' A script stopped by an error can end with status 0 (under Wine silently):
' Main runs under a handler that says what went wrong and ends with status 1.
On Error Resume Next
Main
If Err.Number = 429 Then Fail "Orvessa.Pictava is not registered for this script host's bitness: see README.txt"
If Err.Number <> 0 Then Fail "error " & Err.Number & " from " & Err.Source & ": " & Err.Description

Sub Main()
    Dim source, target, filter, files, header, pixels, width, height, pictava
    If WScript.Arguments.Count < 2 Then Fail "usage: cscript //nologo filter_bmp.vbs IN.bmp OUT.bmp [blur|smooth]"
    source = WScript.Arguments(0)
    target = WScript.Arguments(1)
    filter = "blur"
    If WScript.Arguments.Count > 2 Then filter = LCase(WScript.Arguments(2))
    If filter <> "blur" And filter <> "smooth" Then Fail "unknown filter " & filter & " (blur or smooth)"

    Set files = OpenBytes(source)
    header = files.ReadHeader()
    If files.HeaderWord(header, 0, 2) <> &H4D42 Then Fail source & " is no BMP file"
    If files.HeaderWord(header, 10, 4) <> HeaderSize Or files.HeaderWord(header, 14, 4) <> 40 _
        Or files.HeaderWord(header, 28, 2) <> 24 Or files.HeaderWord(header, 30, 4) <> 0 Then
        Fail source & " is not an uncompressed 24-bit BMP with its pixels after a 54-byte header"
    End If
    width = files.HeaderWord(header, 18, 4)
    height = files.HeaderWord(header, 22, 4)
    If width < 1 Or height < 1 Then Fail source & ": only bottom-up pictures of at least 1 x 1 pixels"
    ' Each row takes (3 * width + 3) And Not 3 bytes: 3 a pixel, padded to a multiple of 4.
    pixels = files.ReadPixels(((3 * width + 3) And Not 3) * height)

    Set pictava = CreateObject("Orvessa.Pictava")
    If filter = "blur" Then
        pictava.Blur_Buffer pixels, width, height      ' the byte array, changed in place
    Else
        pictava.MedianCut_Buffer pixels, width, height
    End If

    files.Save target, header, pixels
    WScript.Echo filter & ": " & width & " x " & height & " pixels"
End Sub

' Says what went wrong and ends with status 1.
Sub Fail(message)
    WScript.Echo "filter_bmp.vbs: " & message
    WScript.Quit 1
End Sub

' The file's bytes through ADODB.Stream, which every Windows has; where that
' cannot read the file (Wine 8's ADODB.Stream has no LoadFromFile), through
' text streams.
Function OpenBytes(path)
    Dim files
    On Error Resume Next
    Set files = New StreamBytes
    files.OpenFile path
    If Err.Number <> 0 Then
        Err.Clear
        On Error GoTo 0
        Set files = New TextBytes
        files.OpenFile path
    End If
    Set OpenBytes = files
End Function

' The file's bytes as byte arrays, read and written by ADODB.Stream.
Class StreamBytes
    Private stream

    Public Sub OpenFile(path)
        Set stream = CreateObject("ADODB.Stream")
        stream.Type = adTypeBinary
        stream.Open
        stream.LoadFromFile path
    End Sub

    Public Function ReadHeader()
        ReadHeader = stream.Read(HeaderSize)
        If LenB(ReadHeader) <> HeaderSize Then Fail "the file is too short for a BMP header"
    End Function

    ' The little-endian number of Size bytes at offset At of the header.
    Public Function HeaderWord(header, at, length)
        Dim i
        HeaderWord = 0
        For i = length - 1 To 0 Step -1
            HeaderWord = HeaderWord * 256 + AscB(MidB(header, at + i + 1, 1))
        Next
        If length = 4 And HeaderWord >= 2 ^ 31 Then HeaderWord = HeaderWord - 2 ^ 32
    End Function

    Public Function ReadPixels(count)
        ReadPixels = stream.Read(count)
        stream.Close
        If LenB(ReadPixels) <> count Then Fail "the file is shorter than its header says"
    End Function

    Public Sub Save(path, header, pixels)
        Dim out
        Set out = CreateObject("ADODB.Stream")
        out.Type = adTypeBinary
        out.Open
        out.Write header
        out.Write pixels
        out.SaveToFile path, adSaveCreateOverWrite
        out.Close
    End Sub
End Class

' The same bytes through text streams. A file opened as ANSI text gives one
' character a byte where the ANSI code page has one byte a character (the
' lengths are checked); MSXML's bin.hex type turns hexadecimal digits into a
' byte array; a byte array written to a Unicode text stream goes out byte for
' byte.
Class TextBytes
    Private fso
    Private reader
    Private fileSize
    Private pixelBytes

    Public Sub OpenFile(path)
        Set fso = CreateObject("Scripting.FileSystemObject")
        fileSize = fso.GetFile(path).Size
        Set reader = fso.OpenTextFile(path, ForReading, False, AsAnsi)
    End Sub

    Public Function ReadHeader()
        If fileSize < HeaderSize Then Fail "the file is too short for a BMP header"
        ReadHeader = reader.Read(HeaderSize)
        If Len(ReadHeader) <> HeaderSize Then Fail "the ANSI code page has characters of several bytes: use ADODB.Stream"
    End Function

    Public Function HeaderWord(header, at, length)
        Dim i
        HeaderWord = 0
        For i = length - 1 To 0 Step -1
            HeaderWord = HeaderWord * 256 + Asc(Mid(header, at + i + 1, 1))
        Next
        If length = 4 And HeaderWord >= 2 ^ 31 Then HeaderWord = HeaderWord - 2 ^ 32
    End Function

    Public Function ReadPixels(pixelCount)
        Dim chars, digits, i, digit, element
        pixelBytes = pixelCount
        If fileSize < HeaderSize + pixelBytes Then Fail "the file is shorter than its header says"
        chars = reader.Read(pixelBytes)
        reader.Close
        If Len(chars) <> pixelBytes Then Fail "the ANSI code page has characters of several bytes: use ADODB.Stream"
        ReDim digits(pixelBytes - 1)
        For i = 1 To pixelBytes
            digit = Hex(Asc(Mid(chars, i, 1)))
            If Len(digit) = 1 Then digit = "0" & digit
            digits(i - 1) = digit
        Next
        ' WScript.CreateObject: Wine's script engine cannot create MSXML objects itself.
        Set element = WScript.CreateObject("MSXML2.DOMDocument").createElement("pixels")
        element.dataType = "bin.hex"
        element.text = Concatenate(digits, 0, pixelBytes - 1)
        ReadPixels = element.nodeTypedValue
    End Function

    Public Sub Save(path, header, pixels)
        Dim out
        Set out = fso.CreateTextFile(path, True, False)
        out.Write header
        out.Close
        Set out = fso.OpenTextFile(path, ForAppending, False, AsUnicode)
        out.Write pixels
        out.Close
        If fso.GetFile(path).Size <> HeaderSize + pixelBytes Then Fail "the pixels were not written byte for byte"
    End Sub
End Class

' The strings Parts(First) to Parts(Last) joined, in about n log n steps (as
' Join does; Wine's script engine has no Join).
Function Concatenate(parts, first, last)
    Dim middle
    If first = last Then
        Concatenate = parts(first)
    Else
        middle = (first + last) \ 2
        Concatenate = Concatenate(parts, first, middle) & Concatenate(parts, middle + 1, last)
    End If
End Function
